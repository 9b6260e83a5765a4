# The simulator's sources, shared by its native target and by the host build that
# the Windows test tree makes of it (see tests/windows/device).
set(ZORVI_INSTRUMENT_SIM_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Calibration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Identification.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstrumentMode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Modes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Options.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Pty.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Simulator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main.cpp
)
