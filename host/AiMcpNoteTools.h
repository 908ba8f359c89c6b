// The sticky-note tools: notes_list and notes_get read, notes_create,
// notes_update and notes_delete write through the note family of the write
// road (AiMcpWritePath.h): ValidateNoteWrite fills the PendingWrite with the
// exact values that will be passed to the note service, ExecuteNoteWrite
// passes them.
//
// Only local notes count: a note the service finds whose type value is 1
// and, except while listing, whose id the service's note list holds. Every
// other note is "not found" to these tools.
//
// Limits: titles in the list and titles given to a write are cut to 200
// UTF-16 units, previews to 120 followed by "…"; content given to a write
// is at most 59,392 bytes of UTF-8; a read answer stays within the answer
// budget (notes_list stops at the first entry that does not fit and says
// truncated).
//
// Threads: the host's main thread only.
#pragma once

#include <string>

#include "AiMcpPendingStore.h"
#include "AiMcpToolDispatcher.h"
#include "AiMcpWriteChecks.h"
#include "ComPtr.h"
#include "HostApi.h"

// Note content a write may carry, in bytes of UTF-8.
constexpr std::size_t kAiMcpNoteContentLimit = 59392;

// The content as notes_list previews it: whole when it has at most 120
// units, else its first 120 followed by "…".
std::wstring NotePreview(const std::wstring& content);

// The note with that id when it is a local note (type value 1) and, with
// listedCheck, one of the ids of the service's note list (compared exactly).
// Empty otherwise.
ComPtr<IxNote> FindLocalNote(IxNoteService* service, const std::wstring& noteId, bool listedCheck);

// The notes_list tool: {"notes":[{"id","title","preview"},...],"truncated":..}.
std::wstring NotesList(const std::wstring& requestId);

// The notes_get tool: {"id","title","content"} of one local note.
std::wstring NotesGet(const std::wstring& requestId, const std::wstring& params);

// The note validator of the write road (see AiMcpWriteValidator).
[[nodiscard]] bool ValidateNoteWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write,
                                     std::wstring& code, std::wstring& message);

// The note executor of the write road (see AiMcpWriteExecutor). Only the
// existence of the note is checked again; the values are those validated.
std::wstring ExecuteNoteWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted);
