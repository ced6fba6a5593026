#include "master/update.h"

#include <cstdlib>
#include <cstring>

#include "master/master_state.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/path_check.h"
#include "util/text.h"

namespace {

const int32_t kTransferSilenceMs = 20000;

}  // namespace

void AnnounceUpdate(char* argument, uint32_t now) {
  UpdateTransfer& transfer = Master().update;
  DropUpdateTransfer();
  ArgList words(argument, 1, 0);
  if (words.Length(1) != 32 || words.Length(2) == 0) return;
  const int32_t size = ReadDigits(words.Word(0));
  if (size <= 0 || size > kMaxUpdateSize) return;
  char file[256];
  CopyBounded(file, words.Word(2), 255);
  if (!IsPlainHomeName(file)) return;  // it must stay inside "htm\\"
  CopyBounded(transfer.digest, words.Word(1), 32);
  FormatText(transfer.name, sizeof transfer.name, "htm\\%s", file);
  const size_t name_length = strlen(transfer.name);
  if (name_length < 3 || !SameLetters(transfer.name + name_length - 3, "htm")) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.buffer = static_cast<uint8_t*>(malloc(static_cast<size_t>(size)));
  if (transfer.buffer == nullptr) {
    transfer.name[0] = '\0';
    return;
  }
  transfer.size = size;
  transfer.last_chunk = -1;
  transfer.last_chunk_time = now;
}

int UpdateTransferActive(uint32_t now) {
  const UpdateTransfer& transfer = Master().update;
  if (transfer.buffer == nullptr) return 0;
  if (ElapsedMs(now, transfer.last_chunk_time) < kTransferSilenceMs) return 1;
  DropUpdateTransfer();
  return 0;
}

void DropUpdateTransfer() {
  UpdateTransfer& transfer = Master().update;
  free(transfer.buffer);
  transfer.buffer = nullptr;
  transfer.size = 0;
  transfer.name[0] = '\0';
}

// Packages are not installed yet: their data is not collected.
void HandleUpdateData(HostInterface*, const uint8_t*, int32_t) {}
