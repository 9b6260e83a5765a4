# The boot loader engine with the parts of the flashing tool's core it rests on,
# and the pseudo-terminal program: shared by the native targets and by the host
# build of isp-sim-pty that the Windows test tree makes (tests/windows/flash).
set(ZORVI_ISP_SIM_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareIdentity.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IspBootLoader.cpp)
set(ZORVI_ISP_SIM_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/../../flash-tool/core/IspProtocol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../flash-tool/core/Lpc2138.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../flash-tool/core/UuCodec.cpp)
set(ZORVI_ISP_SIM_PTY_SOURCES ${CMAKE_CURRENT_LIST_DIR}/IspSimPty.cpp)
