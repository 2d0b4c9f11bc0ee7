// The engine's file reader, found at run time: CreateMediaReader is no function of the engine
// contract, so an engine that stands in for ours may lack it. The feed library never imports
// it at link time (a stand-in with only the contract's functions must still load); it asks the
// engine library it was linked with for it by name.
#pragma once

#include "engine/MediaReader.h"

namespace feed {

// The engine's CreateMediaReader, or null when the engine has none. Looked up once; any
// thread.
CreateMediaReaderFunction FindCreateMediaReader();

}  // namespace feed
