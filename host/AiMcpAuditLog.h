// The audit log of AI writes, and the two pieces of the write path that
// always leave an audit line behind: the quota gate and the failure answer.
//
// Every event of a write tool (refused, parked, cancelled, carried out,
// failed) appends one line to "aimcp_audit.log" in the current user's data
// directory: UTF-8 without a byte-order mark, six TAB-separated fields,
// ended by CR LF:
//
//     <local time YYYY-MM-DD hh:mm:ss> TAB <tool> TAB id=<identifier>
//     TAB trust=<0|1> TAB <ok|error> TAB <detail> CR LF
//
// TAB, CR and LF inside the identifier and the detail are written as
// spaces, so a line is always one line of six fields; nothing else is
// escaped or quoted. The file is opened for appending (shared for reading
// and writing, so the user or another program can read it, or another
// writer append, at the same time), written with one call and closed again
// for every line; appenders of this module take turns through a byte-range
// lock, so two of them never write over each other's line. It has no size limit, no rotation and no header; the
// plug-in never reads or truncates it.
//
// Auditing never fails towards its caller: without a user data directory,
// or when the file cannot be opened, the line is dropped with a trace and
// the tool answers as it would have.
//
// Threads: called from tool handlers on the host's main thread. Append
// itself keeps no state, so concurrent appends from other threads or
// processes each land as a whole line.
#pragma once

#include <optional>
#include <string>

#include "AiMcpToolDispatcher.h"

extern const wchar_t kAiMcpAuditLogName[];  // "aimcp_audit.log"

class AiMcpAuditLog {
public:
    // Appends one line. Any non-zero trusted or succeeded counts as 1;
    // succeeded writes "ok", otherwise "error". A null tool name is written
    // as empty.
    static void Append(const wchar_t* toolName, const std::wstring& identifier, int trusted, int succeeded,
                       const std::wstring& detail);
};

// The answer for a failed write: an audit line (the tool's name, the audit
// identifier, trusted, "error", the message), then the error envelope with
// the request id, the code word and the message. Every failure of a write
// tool after the request was recognised as a write answers through here.
std::wstring FailWithAudit(AiMcpWriteKind tool, const std::wstring& requestId, const std::wstring& auditId,
                           int trusted, const std::wstring& code, const std::wstring& message);

// Nothing when the tool's quota kind has room for one more write today;
// otherwise the complete QUOTA_EXCEEDED answer, already audited with
// trusted 0 and the quota message as detail. Counts nothing.
std::optional<std::wstring> QuotaGate(AiMcpWriteKind tool, const std::wstring& requestId,
                                      const std::wstring& auditId);
