// LeakSanitizer's exceptions for feedcat: what SDL's helpers keep for the life of the process
// and never free, whoever uses them (the D-Bus client library SDL loads for the screen saver
// and input methods, and the unwinder's own tables); and one block libx265 allocates inside an
// encoder and does not give back when the encoder is closed (a raw .hevc output shows it; the
// allocation's whole stack is inside libx265). feedcat's own allocations are still checked.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libgcc_s.so\n"
           "leak:libx265.so\n";
}
#endif
