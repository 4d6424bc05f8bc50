#pragma once
// Reading the keyboard's lock keys (Caps, Num, Scroll), for the status bar's indicator panes.

// Lock-key state as the platform reports it; false for each the platform cannot tell.
struct CKeyLockState {
    bool bKnown = false;
    bool bCaps = false, bNum = false, bScroll = false;
};
CKeyLockState AfxGetKeyLockState();
