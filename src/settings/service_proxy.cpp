#include "settings/service_proxy.h"

#include "net/ascii.h"
#include "net/url.h"

#include <algorithm>

namespace quorva {

ProxyChoice chooseServiceProxy(const MachineValue& machineProxy, const std::string& uploadUrl,
                               const WinHttpProxyReader& readWinHttpProxy) {
    const std::string_view scheme =
        equalsNoCase(parseUrl(uploadUrl).protocol, "https") ? "https" : "http";
    if (machineProxy.origin != SettingOrigin::Default)
        return {parseProxyText(machineProxy.text, scheme),
                machineProxy.origin == SettingOrigin::Policy ? ProxySource::Policy
                                                             : ProxySource::Machine};
    std::optional<std::string> list = readWinHttpProxy();
    if (!list)
        return {};
    // WinHTTP separates its entries by blanks as well as by ";".
    std::replace(list->begin(), list->end(), ' ', ';');
    return {parseProxyText(*list, scheme), ProxySource::WinHttp};
}

} // namespace quorva
