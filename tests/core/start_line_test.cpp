#include "core/start_line.h"

#include "settings/memory_settings_store.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

using testing::MemorySettingsStore;

TEST(StartLine, SaysTheRunAndWhereEachSettingComesFrom) {
    MemorySettingsStore store;
    store.values["NomSite"] = "LYON";
    MachineSettings machine;
    machine[static_cast<std::size_t>(Setting::Url)] = "http://reports/KelbBin/Kelb.dll/";
    Settings settings(store, machine);
    for (const Setting setting : kAllSettings)
        settings.setValue(setting, settings.read(setting));

    EXPECT_EQ(startLine({"1.2.3", "jean", false}, settings),
              "Démarrage de Quorva 1.2.3 : utilisateur jean, élevé non ; "
              "NomImprimante=\"\" (défaut) ; NomSite=\"LYON\" (utilisateur) ; "
              "NomURL=\"http://reports/KelbBin/Kelb.dll/\" (poste) ; "
              "DossierSpouleur=\"c:\\windows\\system32\\spool\\printers\" (défaut)");
}

} // namespace
} // namespace quorva
