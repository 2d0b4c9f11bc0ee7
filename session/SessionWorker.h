// The session worker: the thread that turns a feed's source list and settings into a video
// and an audio timeline in the media engine, runs them until they end or the host stops
// them, and tears everything down.
#pragma once

namespace session {

struct SharedFeedState;

// Runs one session from building to teardown on the calling thread. A failure while
// building is not reported: the session just ends. Every engine object it creates is
// released before it returns.
void SessionWorker(SharedFeedState& feed);

// The routine of the worker thread that starts a session: enters the component runtime,
// runs the session, leaves the runtime and, as its last act, sets the state back to Idle.
// Whoever ends the session (stop, the next start, or destroying the feed) joins the thread.
void SessionThreadProc(SharedFeedState* feed);

}  // namespace session
