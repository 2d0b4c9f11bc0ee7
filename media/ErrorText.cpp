#include "media/ErrorText.h"

extern "C" {
#include <libavutil/error.h>
}

namespace media {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

}  // namespace media
