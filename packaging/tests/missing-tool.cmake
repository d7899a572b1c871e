message(FATAL_ERROR "${TOOL} is not installed; install the Debian package ${PACKAGE}")
