#include "host/codes.h"

#include "channel/framing.h"
#include "channel/wire_constants.h"
#include "console/module_switch.h"
#include "core/initialise.h"
#include "integrity/integrity.h"
#include "routing/console_words.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/text.h"

namespace {

const uint32_t kPublished[2] = {wire::kPublishedConstant1, wire::kPublishedConstant2};

intptr_t Text(const char* text) { return reinterpret_cast<intptr_t>(text); }

// Key event: five words, of which words 1 to 4 are the key parameters. A
// positive length bounds the text, which then needs no terminator.
intptr_t AnswerKeyEvent(const void* data, int32_t length) {
  uint8_t* buffer = EnsureKeyBuffer();
  char words_text[256] = "";
  if (data != nullptr) {
    const int most = length > 0 && length < static_cast<int32_t>(sizeof words_text) ? length : sizeof words_text - 1;
    CopyBounded(words_text, static_cast<const char*>(data), most);
  }
  ArgList words(words_text, 1, 0);
  return Text(DeriveChannelKey(buffer, ReadDigits(words.Word(1)), ReadDigits(words.Word(2)), ReadDigits(words.Word(3)),
                               ReadDigits(words.Word(4))));
}

intptr_t AnswerEnabledQuery(HostInterface* host) {
  if (host == nullptr || host->host_query == nullptr) return 0;
  char value[TG_QUERY_BUFFER_SIZE];
  QueryHostCvar(host, "cl_tallyguard", value);
  return value[0] == '1' && ModuleEnabled() ? 1 : 0;
}

}  // namespace

intptr_t AnswerCode(int32_t code, int32_t length, const void* data, uint32_t now) {
  HostInterface* host = RememberedHost();
  switch (code) {
    case TG_CODE_VERSION:
      return TG_MODULE_VERSION;
    case TG_CODE_KEY:
      return AnswerKeyEvent(data, length);
    case TG_CODE_FIXED_19:
    case TG_CODE_FIXED_20:
    case TG_CODE_FIXED_21:
      return 90000;
    case TG_CODE_FIXED_22:
      return 4;
    case TG_CODE_CONSTANT_1:
      return Text(reinterpret_cast<const char*>(&kPublished[0]));
    case TG_CODE_CONSTANT_2:
      return Text(reinterpret_cast<const char*>(&kPublished[1]));
    case TG_CODE_COMPLETE:
      if (host == nullptr) return Text("");
      if (data != nullptr) CompleteCommand(static_cast<char*>(const_cast<void*>(data)));
      return 0;
    case TG_CODE_ENABLED:
      return AnswerEnabledQuery(host);
    case TG_CODE_ENABLE:
      if (host != nullptr && !console::SwitchModuleOn(host)) StartupLoads(host, now);
      return 0;
    case TG_CODE_DISABLE:
      if (host != nullptr) console::SwitchModuleOffAtNextStart(host);
      return 0;
    case TG_CODE_RUNNING:
      return ModuleEnabled() && host != nullptr ? 0 : -2;
    case TG_CODE_STATUS:
      return integrity::IntegrityStatus();
    default:
      return 0;
  }
}
