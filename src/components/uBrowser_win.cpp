#include "components/uBrowser.h"

#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "store/uText.h"

std::string RegisteredBrowserCommand() {
    const std::string command = GetAssociatedCommand(".htm");
    // A command stored as REG_EXPAND_SZ names its program through variables, which
    // CreateProcess would not expand; only the system's own values are taken.
    if (FindChar932(command, '%') == std::string::npos) return command;
    return ExpandSystemVariables(command);
}

void StartBrowserCommandLine(const std::string& commandLine) {
    StartCommandLine(commandLine);
}

std::intptr_t ShellExecuteURL(const std::string& url) {
    const std::wstring file = ToWide(url);
    // The browser starts in the system directory, never in the installer's folder.
    const std::wstring directory = sys::SystemDirectory();
    return reinterpret_cast<std::intptr_t>(sys::ShellExecuteW(
        nullptr, L"open", file.c_str(), nullptr, directory.empty() ? nullptr : directory.c_str(), SW_SHOW));
}
