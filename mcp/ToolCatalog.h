// The fixed catalog of the 22 calendar tools: the JSON array answered to
// "tools/list" and the table of names that "tools/call" accepts.
#pragma once

#include <cstddef>
#include <string>

namespace ToolCatalog {

// The catalog array without its line breaks; built on first use.
const std::wstring& CatalogText();

// True when name equals one of the 22 tool names exactly (letter case too).
bool IsKnownTool(const std::wstring& name);

std::size_t ToolCount();
const wchar_t* ToolName(std::size_t index);  // catalog order; null past the end

}  // namespace ToolCatalog
