// The composition root: the one place that picks the platform serving the
// plug-in's process.
#pragma once

namespace skyfw {

// Called once when the plug-in is loaded, before anything else runs.
void InstallProcessPlatform();
// Called when the plug-in is unloaded, after everything else.
void UninstallProcessPlatform();

}  // namespace skyfw
