#include "desk/administrator_rights.h"

#include "platform/program_facts.h"

namespace quorva {

void warnWithoutAdministratorRights(MessageBoxes& boxes, HWND owner) {
    if (hasAdministratorRights())
        return;
    boxes.show(owner,
               "Quorva fonctionne sans les droits d'administrateur : la lecture du dossier du "
               "spouleur, la conservation des travaux imprimés et le redémarrage du spouleur "
               "peuvent échouer.\r\nDemandez ces droits à votre service informatique.",
               kProgramTitle, MB_OK | MB_ICONWARNING);
}

} // namespace quorva
