# Finds QScintilla for Qt 6 and defines the imported target QScintilla::QScintilla.
# Distributions ship it without a CMake package of its own: Debian as libqscintilla2_qt6, with
# the headers in the Qt include folder (Qsci/qsciscintilla.h).
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)
get_target_property(_qt_include_dirs Qt6::Core INTERFACE_INCLUDE_DIRECTORIES)
find_path(QScintilla_INCLUDE_DIR Qsci/qsciscintilla.h
    HINTS ${_qt_include_dirs}
    PATH_SUFFIXES qt6 x86_64-linux-gnu/qt6 aarch64-linux-gnu/qt6)
find_library(QScintilla_LIBRARY NAMES qscintilla2_qt6 qscintilla2-qt6)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(QScintilla REQUIRED_VARS QScintilla_LIBRARY QScintilla_INCLUDE_DIR)

if(QScintilla_FOUND AND NOT TARGET QScintilla::QScintilla)
    add_library(QScintilla::QScintilla UNKNOWN IMPORTED)
    set_target_properties(QScintilla::QScintilla PROPERTIES
        IMPORTED_LOCATION "${QScintilla_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${QScintilla_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES "Qt6::Widgets;Qt6::PrintSupport")
endif()
mark_as_advanced(QScintilla_INCLUDE_DIR QScintilla_LIBRARY)
