# Builds against a real Flutter engine directory, laid out as a Flutter project's
# linux/flutter/ephemeral/: the flutter_linux/ headers and libflutter_linux_gtk.so.
set(engine_library "${KORVANE_FLUTTER_ENGINE_DIR}/libflutter_linux_gtk.so")
if(NOT EXISTS "${engine_library}" OR
   NOT EXISTS "${KORVANE_FLUTTER_ENGINE_DIR}/flutter_linux/flutter_linux.h")
  message(FATAL_ERROR "${KORVANE_FLUTTER_ENGINE_DIR} holds no Flutter Linux embedding")
endif()
add_library(flutter_linux_gtk SHARED IMPORTED GLOBAL)
set_target_properties(flutter_linux_gtk PROPERTIES IMPORTED_LOCATION "${engine_library}")
target_include_directories(flutter_linux_gtk SYSTEM INTERFACE "${KORVANE_FLUTTER_ENGINE_DIR}")
target_link_libraries(flutter_linux_gtk INTERFACE PkgConfig::GTK PkgConfig::GIO PkgConfig::GLIB)
add_library(flutter ALIAS flutter_linux_gtk)
install(FILES "${engine_library}" DESTINATION lib)
