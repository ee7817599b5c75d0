// Under the thread sanitizer: fontconfig creates some of its mutexes lazily and
// publishes them with its own atomic compare-and-swap, which the sanitizer
// cannot see, so the first lock of such a mutex on another thread (the
// acquisition thread drawing text) looks like a race with its malloc. Only
// reports whose frames lie inside fontconfig are silenced.

extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\n";
}
