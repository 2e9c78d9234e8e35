#include "core/start_line.h"
#include "platform/program_facts.h"

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
