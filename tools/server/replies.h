// Readable descriptions of what the client module sends.
#pragma once

#include <string>

#include "peer.h"

std::string DescribeReply(const Bytes& payload);
// The payload as text, with bytes outside printable ASCII as \xHH.
std::string Printable(const Bytes& bytes);
// "\n", "\\" and "\xHH" escapes to bytes.
Bytes Unescape(const std::string& text);
