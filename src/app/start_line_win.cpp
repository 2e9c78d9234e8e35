#include "app/about.h"
#include "app/administrator_rights.h"
#include "app/start_line.h"

#include <windows.h>

namespace quorva {

RunFacts currentRunFacts() {
    char user[256] = {};
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size))
        user[0] = '\0';
    return {programVersion(), user, hasAdministratorRights()};
}

} // namespace quorva
