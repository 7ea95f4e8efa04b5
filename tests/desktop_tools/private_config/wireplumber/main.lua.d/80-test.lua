-- Sorted before the installed 90-enable-all.lua, which acts on these.
-- WirePlumber quits at start when a plug-in cannot reach the D-Bus
-- service it needs, as the flatpak portal's would.
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
