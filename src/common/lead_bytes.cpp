#include "common/lead_bytes.h"

namespace quorvane {

bool isChineseLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

bool isLeadByteIn(unsigned codePage, unsigned char byte) {
  switch (codePage) {
    case 932:  // Shift-JIS
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul
    case 950:  // Big5
      return isChineseLeadByte(byte);
    case 1361:  // Johab
      return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xDE) ||
             (byte >= 0xE0 && byte <= 0xF9);
    default:
      return false;
  }
}

}  // namespace quorvane
