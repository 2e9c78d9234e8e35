#include "app/administrator_rights.h"

namespace quorva {

bool hasAdministratorRights() {
    BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    // A null token: the thread's impersonation token, or else the process's.
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

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
