#include "core/it_alerts.h"

#include <cstdint>

namespace quorva {

namespace {

std::int64_t secondsOf(const DateTime& t) {
    return ((daysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

} // namespace

void ItAlerts::jobState(JobState state) {
    if (state == JobState::Sent) {
        failingSince_.reset();
        told_ = false;
        return;
    }
    if (state != JobState::Failed)
        return;
    const DateTime now = clock_.now();
    if (!failingSince_)
        failingSince_ = now;
    if (told_ || secondsOf(now) - secondsOf(*failingSince_) <= kFailingSeconds)
        return;
    told_ = true;
    log_.report(ItEvent::JobsFailing,
                "Les factures ne partent plus vers le serveur de rapports depuis plus d'une heure "
                "(aucun envoi réussi) : vérifiez le serveur et l'adresse NomURL.");
}

} // namespace quorva
