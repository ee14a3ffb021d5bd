#pragma once

// For tests: makes a registry key refuse writes, as rights a standard user has on a key under
// HKEY_LOCAL_MACHINE do, and lifts that again; removes a test's key in the view it was made in.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_key_win.h"

namespace quorvane {

// Everyone may read the key and change its rights (so a test can lift the refusal), and delete
// it; `writable` adds every other right. `view` is KEY_WOW64_32KEY or 0.
inline void setKeyWritable(HKEY root, const std::string& path, REGSAM view, bool writable) {
  RegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC | view, key.put()) != ERROR_SUCCESS) return;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  const DWORD allowed = writable ? KEY_ALL_ACCESS : (KEY_READ | WRITE_DAC | DELETE);
  alignas(ACL) BYTE aclBuffer[256];
  auto* acl = reinterpret_cast<PACL>(aclBuffer);
  SECURITY_DESCRIPTOR sd;
  const bool ok = InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
                  AddAccessAllowedAce(acl, ACL_REVISION, allowed, everyone) &&
                  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
                  RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  FreeSid(everyone);
  ASSERT_TRUE(ok);
}

// Removes `path` with everything below it in the given view (KEY_WOW64_32KEY or 0). A plain
// RegDeleteTree works in the program's own view, which in a 64-bit test program is not the
// 32-bit view the settings live in: a key left there would greet a later test program that
// happens to get the same process id.
inline void deleteKeyTree(HKEY root, const std::string& path, REGSAM view) {
  const size_t cut = path.rfind('\\');
  RegistryKey parent;
  if (cut == std::string::npos ||
      RegOpenKeyExA(root, path.substr(0, cut).c_str(), 0, KEY_READ | DELETE | view, parent.put()) != ERROR_SUCCESS)
    return;
  RegDeleteTreeA(parent.get(), path.substr(cut + 1).c_str());
  RegDeleteKeyExA(parent.get(), path.substr(cut + 1).c_str(), view, 0);
}

}  // namespace quorvane
