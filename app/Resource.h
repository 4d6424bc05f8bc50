#pragma once
// Resource ids of the program: the main frame's resources share one id.
enum : unsigned {
    IDR_MAINFRAME = 128,    // menu, toolbar, accelerators, main icon, window title
    IDR_TIDEMARKTYPE = 129, // document icon
};

// The application's own command: Open in the folder of the session journals.
enum : unsigned {
    ID_FILE_SESSION_LOGS = 32776,
};

// The title part of the main frame's document string.
inline constexpr char kMainFrameTitle[] = "Tidemark - The PL/SQL Tracing facility";
// The application's name: profile key and message-box caption.
inline constexpr char kAppTitle[] = "Tidemark";
