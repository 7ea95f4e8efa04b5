# The install tree is a bundle laid out like a Flutter Linux app's:
#   <prefix>/<executables>               RPATH $ORIGIN/lib
#   <prefix>/lib/                        the embedding and the plug-in libraries
#   <prefix>/data/flutter_assets/assets/ the assets, among them the window icon
# `cmake --install <build-dir>` puts it in <build-dir>/bundle unless --prefix
# names another place. A bundle never belongs in /usr/local, so a prefix of
# /usr/local (also one cached by a build directory configured before the
# bundle existed) is taken for the default.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(CMAKE_INSTALL_PREFIX "${PROJECT_BINARY_DIR}/bundle" CACHE PATH
      "Where cmake --install lays out the bundle" FORCE)
endif()

# korvane_bundle_executable(<target>): an executable at the bundle's root.
function(korvane_bundle_executable target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/lib")
  install(TARGETS ${target} RUNTIME DESTINATION .)
endfunction()

# korvane_bundle_library(<target>): a shared library in the bundle's lib/.
function(korvane_bundle_library target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION lib)
endfunction()

install(DIRECTORY "${PROJECT_SOURCE_DIR}/assets" DESTINATION data/flutter_assets)
