#include "app/links.h"

#include <string>

namespace quorvane {

void openInBrowser(std::string_view url, const ShellOpen& shellOpen) {
  const std::string address(url);
  if (shellOpen("iexplore.exe", address.c_str()) > 32) return;
  shellOpen(address.c_str(), nullptr);
}

}  // namespace quorvane
