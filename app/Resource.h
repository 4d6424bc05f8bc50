#pragma once
// Resource ids of the program: the main frame's resources share one id.
enum : unsigned {
    IDR_MAINFRAME = 128,    // menu, toolbar, accelerators, main icon, window title
    IDR_TIDEMARKTYPE = 129, // document icon
};

// The application's own commands: Open in the folder of the session journals; following the
// end of the log, receipt times and highlight rules (View).
enum : unsigned {
    ID_FILE_SESSION_LOGS = 32776,
    ID_VIEW_FOLLOW = 32777,
    ID_VIEW_RECEIPT_TIMES = 32778,
    ID_VIEW_HIGHLIGHTS = 32779,
};

// The status bar's panes of the program: following or paused, and the messages received.
enum : unsigned {
    ID_INDICATOR_FOLLOW = 32790,
    ID_INDICATOR_RECEIVED = 32791,
};

// The title part of the main frame's document string.
inline constexpr char kMainFrameTitle[] = "Tidemark - The PL/SQL Tracing facility";
// The application's name: profile key and message-box caption.
inline constexpr char kAppTitle[] = "Tidemark";
