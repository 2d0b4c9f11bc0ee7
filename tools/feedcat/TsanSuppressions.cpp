// ThreadSanitizer cannot see the atomics inside FFmpeg and libx264 (built without it), so the
// reference counting of frame buffers shared with encoder threads looks like races. Likewise
// Mesa's software renderer (the --play window's OpenGL where there is no GPU, as under Xvfb):
// its rendering threads' fences are atomics too. Reports with those in a stack are left out;
// feedcat's own code is still checked.
#if defined(__SANITIZE_THREAD__)
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:av_buffer_unref\n"
           "race:av_frame_unref\n"
           "race:av_buffer_make_writable\n"
           "race:libavcodec.so\n"
           "race:libx264.so\n"
           "race:swrast_dri.so\n"
           "race:libgallium\n";
}
#endif
