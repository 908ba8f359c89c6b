// tsyappaimcp: a pipe request as the worker converts it and the gate checks
// it. (The worker also trims JSON whitespace off both ends first, which
// cannot change what the parser answers.)
#include "DeliverableRoad.h"

#include "AiMcpEnvelope.h"
#include "AiMcpUtf8.h"

namespace {

std::wstring ToText(const std::string& bytes) { return Utf8ToWide(bytes); }

bool WithinDepth(const std::wstring& text) { return CheckJsonDepth(text); }

}  // namespace

const DeliverableRoad kDeliverableRoad = {"tsyappaimcp pipe request", &ToText, &WithinDepth};
