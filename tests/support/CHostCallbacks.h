/* The frame and buffer callbacks of the C hosts in the tests: they take what they are given
 * and hand it straight back, the frame pointer and the buffer length, as a host that keeps
 * nothing would. */
#ifndef FEED_TESTS_SUPPORT_CHOSTCALLBACKS_H
#define FEED_TESTS_SUPPORT_CHOSTCALLBACKS_H

#include <feed/feed.h>

static intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length,
                                  int32_t positionMs, int32_t width, int32_t height) {
    (void)user;
    (void)length;
    (void)positionMs;
    (void)width;
    (void)height;
    return (intptr_t)frame;
}

static int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                  int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                  int32_t channels) {
    (void)user;
    (void)buffer;
    (void)positionMs;
    (void)bitsPerSample;
    (void)sampleRate;
    (void)channels;
    return length;
}

#endif
