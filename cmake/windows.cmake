# The Windows build: the window starts without a console and carries its icon, and the install
# folder holds everything the programs need: the screens' background beside the executables and,
# when windeployqt is found, Qt's libraries, plugins and the compiler's runtime.
# Included from the top-level CMakeLists.txt after every target is defined.

enable_language(RC)

set_target_properties(cablemeter PROPERTIES WIN32_EXECUTABLE ON)
# The icon Explorer, the taskbar and Alt-Tab show.
target_sources(cablemeter PRIVATE ${PROJECT_SOURCE_DIR}/packaging/windows/cablemeter.rc)

# The programs look for ZNull.ovl in their own folder; the build makes it next to them.
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ZNull.ovl DESTINATION ${CMAKE_INSTALL_BINDIR})

# The CLI draws its screens on Qt's offscreen platform, which windeployqt does not copy by itself.
find_file(CABLEMETER_QT_OFFSCREEN_PLUGIN qoffscreen.dll
    PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms NO_DEFAULT_PATH)
if(CABLEMETER_QT_OFFSCREEN_PLUGIN)
    install(FILES ${CABLEMETER_QT_OFFSCREEN_PLUGIN}
        DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
endif()

find_program(CABLEMETER_WINDEPLOYQT windeployqt
    HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}
    DOC "Qt's windeployqt, run on the installed programs to copy Qt's DLLs beside them")
if(CABLEMETER_WINDEPLOYQT)
    foreach(program cablemeter cablemeter-cli)
        install(CODE "
            message(STATUS \"windeployqt: ${program}\")
            execute_process(
                COMMAND \"${CABLEMETER_WINDEPLOYQT}\" --no-translations --compiler-runtime
                        \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}.exe\"
                COMMAND_ERROR_IS_FATAL ANY)")
    endforeach()
else()
    message(WARNING "windeployqt was not found next to Qt (${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}):"
        " the installed programs will need Qt's DLLs copied beside them by hand")
endif()
