# Type stubs of the package's compiled half: the types it hands to callers, which the package
# re-exports. The rest of it (the feed's and the reader's cores and their failures) is the
# package's own business and typed loosely. The package's Python modules carry their own
# annotations.
from typing import Any

import numpy as np
import numpy.typing as npt

__version__: str

class FeedError(RuntimeError):
    """A refusal or failure of the feed library, with the library's own message."""

class VideoFrame:
    """One frame: (height, width, 4) uint8, bytes B, G, R, 0 per pixel."""

    @property
    def array(self) -> npt.NDArray[np.uint8]: ...
    @property
    def position_ms(self) -> int: ...
    @property
    def position(self) -> float: ...

class AudioBuffer:
    """One buffer: (sample frames, channels) int16, interleaved PCM."""

    @property
    def array(self) -> npt.NDArray[np.int16]: ...
    @property
    def position_ms(self) -> int: ...
    @property
    def position(self) -> float: ...
    @property
    def sample_rate(self) -> int: ...

def __getattr__(name: str) -> Any: ...
