// The pipe protocol's request and answer envelopes, the plug-in's JSON
// string escaping, and the parameter accessors every tool handler uses.
// Pure functions, safe on any thread.
//
// Answers: {"id":"<id>","ok":true,"result":<result>} and
// {"id":"<id>","ok":false,"error":{"code":"<code>","message":"<message>"}}.
// The id and message are escaped here; the result is JSON text inserted as
// it is, and the code is one of the fixed words below.
#pragma once

#include <memory>
#include <string>

class JsonValue;

extern const wchar_t kInvalidParams[];    // INVALID_PARAMS
extern const wchar_t kUnauthorized[];     // UNAUTHORIZED
extern const wchar_t kFeatureDisabled[];  // FEATURE_DISABLED
extern const wchar_t kNotFound[];         // NOT_FOUND
extern const wchar_t kInvalidTime[];      // INVALID_TIME
extern const wchar_t kQuotaExceeded[];    // QUOTA_EXCEEDED
extern const wchar_t kInternal[];         // INTERNAL

// One pipe request as the gate reads it. Strings taken from the JSON end at
// their first U+0000; a member of the wrong kind reads as empty.
struct AiMcpRequest {
    bool valid = false;  // the text was a JSON object
    std::wstring id;
    std::wstring token;  // top-level "token", else the "token" of "params"
    std::wstring method;
    std::wstring params;  // "params" written back compactly when it is an object, else empty
};

// Escapes quotation mark, backslash and control characters (\u00xx in lower
// case); everything else, non-ASCII included, stays as it is.
std::wstring EscapeJsonString(const std::wstring& text);

// Appends EscapeJsonString of the units to out, with no text of its own in
// between: for answers written piece by piece.
void AppendEscapedJson(std::wstring& out, const wchar_t* text, std::size_t units);

std::wstring BuildOkAnswer(const std::wstring& id, const std::wstring& result);

// BuildOkAnswer in two steps, for a result written piece by piece straight
// into its answer: BeginOkAnswer appends what comes before the result,
// EndOkAnswer what follows it.
void BeginOkAnswer(std::wstring& out, const std::wstring& id);
void EndOkAnswer(std::wstring& out);
std::wstring BuildErrorAnswer(const std::wstring& id, const std::wstring& code, const std::wstring& message);

// True when brackets outside strings nest at most 64 deep.
bool CheckJsonDepth(const std::wstring& text);

AiMcpRequest ParseRequest(const std::wstring& text);

// Whether a request's token equals the expected one, comparing every unit
// whatever the first difference, so the time taken tells nothing about how
// much of a guess was right.
bool TokensMatch(const std::wstring& given, const std::wstring& expected);

// A member of the params object as text: a string as it is, a number in
// decimal ("3", "2.250000"). Not found (and out untouched) for any other
// kind, a missing member, or params that are not a JSON object.
bool GetStringParam(const std::wstring& params, const std::wstring& name, std::wstring& out);

// Whether a string of the params (a member's value at any depth) holds the
// character U+0000, which the calendar's text handling would cut the string
// at; path receives where, as "text" or "lessons[2].name".
[[nodiscard]] bool FindNulInParams(const std::wstring& params, std::wstring& path);

// A member as a yes/no: JSON true/false, or the strings "true"/"false" in
// any letter case. Not found (and out untouched) otherwise.
bool GetBoolParam(const std::wstring& params, const std::wstring& name, bool& out);

// The params parsed once, for a handler that reads several members: each
// reader gives what GetStringParam and GetBoolParam give for the same text.
class AiMcpParams {
public:
    explicit AiMcpParams(const std::wstring& params);
    ~AiMcpParams();
    AiMcpParams(const AiMcpParams&) = delete;
    AiMcpParams& operator=(const AiMcpParams&) = delete;

    bool GetString(const std::wstring& name, std::wstring& out) const;
    bool GetBool(const std::wstring& name, bool& out) const;

private:
    std::unique_ptr<JsonValue> root_;  // null unless the params are a JSON object
};
