// The login server's reply and the configured server address are outside input: judging a
// reply and parsing an address must take any bytes.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "app/LoginReply.h"
#include "app/ServerAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Umbra::LoginReply reply = Umbra::JudgeReply(true, bytes);
  // Nine bytes hold at most eight digits after a sign, or nine without one.
  if (reply.number > 999999999 || reply.number < -99999999) std::abort();
  if (reply.kind == Umbra::ReplyKind::kNumber && reply.number >= Umbra::kFirstSuccessNumber) {
    const int digit = Umbra::LeadingDigit(reply.number);
    if (digit < 1 || digit > 9) std::abort();
  }
  Umbra::VerdictText(reply.number);

  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  Umbra::LoginServerAddress address;
  if (Umbra::ParseServerAddress(text, address)) Umbra::RegistrationUrl(address);
  return 0;
}
