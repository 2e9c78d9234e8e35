#include "core/it_alerts.h"

namespace quorva {

void ItAlerts::jobState(JobState state) {
    if (state == JobState::Sent) {
        episode_.end();
        told_ = false;
        return;
    }
    if (state != JobState::Failed)
        return;
    const DateTime now = clock_.now();
    episode_.fail(now);
    if (told_ || episode_.elapsed(now, 1) <= kFailingSeconds)
        return;
    told_ = true;
    log_.report(ItEvent::JobsFailing,
                "Les factures ne partent plus vers le serveur de rapports depuis plus d'une heure "
                "(aucun envoi réussi) : vérifiez le serveur et l'adresse NomURL.");
}

} // namespace quorva
