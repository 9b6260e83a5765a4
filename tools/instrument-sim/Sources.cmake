# The simulator's sources, shared by its native targets and by the host build that
# the Windows test tree makes of it (see tests/windows/device).
set(ZORVI_INSTRUMENT_SIM_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Calibration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Identification.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstrumentMode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Modes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Options.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Pty.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Simulator.cpp
)
# The programming mode and the boot loader engine it runs (tools/instrument-sim/isp).
include(${CMAKE_CURRENT_LIST_DIR}/isp/Sources.cmake)
list(APPEND ZORVI_INSTRUMENT_SIM_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/isp/ProgrammingMode.cpp
    ${ZORVI_ISP_SIM_SOURCES}
    ${ZORVI_ISP_SIM_CORE_SOURCES})
set(ZORVI_INSTRUMENT_SIM_SOURCES
    ${ZORVI_INSTRUMENT_SIM_CORE_SOURCES}
    ${CMAKE_CURRENT_LIST_DIR}/main.cpp
)
