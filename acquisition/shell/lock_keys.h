#pragma once
// The keyboard's lock indicators, as far as the platform tells them.

struct LockKeys {
    bool capsLock = false;
    bool scrollLock = false;
};

// Both off where the platform offers no way to read them.
LockKeys ReadLockKeys();
