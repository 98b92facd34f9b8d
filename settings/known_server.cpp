#include "settings/known_server.h"

#include "settings/settings_file.h"

namespace zepho {

std::string ReadKnownServer(Profile& p) { return p.ReadString(kSectionNetwork, kKnownServerKey, ""); }

bool WriteKnownServer(Profile& p, const std::string& server) {
  // Quoted, as the server setting itself: blanks at either end stay its own.
  return p.WriteString(kSectionNetwork, kKnownServerKey, "\"" + server + "\"");
}

}  // namespace zepho
