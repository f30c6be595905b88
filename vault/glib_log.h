#pragma once
#include <string>

namespace vault {

// Writes one of the vault's lines ("[Vault] …") to the system log through GLib's structured
// logging: the journal when there is one, stderr otherwise. The line never holds a secret.
void logLine(const std::string& line);

}  // namespace vault
