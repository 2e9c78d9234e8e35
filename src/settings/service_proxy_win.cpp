#include "settings/service_proxy.h"

#include "platform/locale.h"
#include "platform/unique_handle_win.h"

#include <windows.h>
#include <winhttp.h>

namespace quorva {

std::optional<std::string> readWinHttpProxy() {
    WINHTTP_PROXY_INFO info = {};
    if (!WinHttpGetDefaultProxyConfiguration(&info))
        return std::nullopt;
    // The caller owns both strings.
    const BasicUniqueHandle<GlobalFree, LPWSTR> proxy(info.lpszProxy);
    const BasicUniqueHandle<GlobalFree, LPWSTR> bypass(info.lpszProxyBypass);
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || !proxy)
        return std::nullopt;
    return SystemLocale().wideToAnsi(proxy.get());
}

} // namespace quorva
