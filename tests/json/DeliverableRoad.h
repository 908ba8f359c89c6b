// How a deliverable takes untrusted UTF-8 text before the parser sees it:
// its one conversion to UTF-16 and its nesting check. The corpus test is
// built once per deliverable, each time with that deliverable's own road
// (McpRoad.cpp, PluginRoad.cpp), so that it exercises their real routines.
#pragma once

#include <string>

struct DeliverableRoad {
    const char* name;
    std::wstring (*toText)(const std::string& bytes);
    bool (*withinDepth)(const std::wstring& text);  // false: refused before parsing
};

extern const DeliverableRoad kDeliverableRoad;
