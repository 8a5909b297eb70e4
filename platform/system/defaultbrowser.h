// The desktop's default web browser as a command line in the registry's
// form: the program and its arguments with "%1" where the URL goes.
//
// The registry (platform/system/registry.h) shows it under HKEY_CLASSES_ROOT as the
// class "htmlfile" of ".htm" and that class's "shell\open\command", unless
// those keys are stored there.
#pragma once

#include <string>

namespace platform {

using DefaultBrowserProvider = std::wstring (*)();

// The command line, empty when no browser is set. The desktop's answer
// comes from the handler of http URLs (else of text/html) in its
// application associations; its field codes %u %U %f %F become "%1".
std::wstring DefaultBrowserCommand();

// Replaces the desktop's answer (tests); null restores it. Returns the
// previous provider.
DefaultBrowserProvider SetDefaultBrowserProvider(DefaultBrowserProvider provider) noexcept;

}  // namespace platform
