// LeakSanitizer's exceptions for feedcat: what SDL's helpers keep for the life of the process
// and never free, whoever uses them (the D-Bus client library SDL loads for the screen saver
// and input methods, and the unwinder's own tables). feedcat's own allocations are still
// checked.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libgcc_s.so\n";
}
#endif
