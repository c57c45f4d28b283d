// The engine's process-wide state: the initialised flag, the default and
// current sessions, and the sessions created besides them. The other
// process-wide pieces (open-file list, character-map cache, error context,
// bitmap pool) live in their own layers and are created on first use;
// finalisation empties the character-map cache so that the next
// initialisation builds afresh.
//
// Ownership: the engine owns the default session and every session made by
// CreateSession until FreeSession or FinalizeEngine.
// Threads: the component layer calls these under its process-wide engine
// lock; they take no lock of their own.
// Failures: DefaultSession before InitializeEngine raises 10758.
#pragma once

namespace pirin {

class TDataSession;

// Creates the default session and makes it current; nothing when the engine
// is initialised already.
void InitializeEngine();
// Frees every session of the engine and clears the initialised flag;
// nothing when not initialised.
void FinalizeEngine();
bool EngineInitialized() noexcept;
// The current session; 10758 when the engine is not initialised.
TDataSession& DefaultSession();
void SetCurrentSession(TDataSession& session);
// A further session with every setting at its default, owned by the engine.
TDataSession& CreateSession(bool serverSide = false);
// Destroys a session made by CreateSession: its databases are closed and its
// passwords cleared. When it was current, the default session becomes
// current again. A session the engine does not know is left alone.
void FreeSession(TDataSession& session);

}  // namespace pirin
