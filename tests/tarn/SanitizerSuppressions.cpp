// ThreadSanitizer sees FFmpeg's calls to malloc, free, memcpy and the pthread functions, but
// not its atomics, since FFmpeg is built without instrumentation. Two patterns of the decoders'
// frame threads then look like races:
// - a frame buffer that a decoding thread allocates and the reader's thread releases once the
//   last reference goes (or copies when it must be made writable): the reference count that
//   orders them is atomic. Unreferencing a frame can free its buffer straight from
//   av_frame_unref (the inner calls are tail calls), so that frame is named too;
// - libavcodec destroying a worker's mutex while another, parked worker that once waited on it
//   is joined only afterwards.
// Reports with those in a stack are left out; our own code is still checked.
#if defined(__SANITIZE_THREAD__)
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:av_buffer_unref\n"
           "race:av_frame_unref\n"
           "race:av_buffer_make_writable\n"
           "race:libavcodec.so\n";
}
#endif
