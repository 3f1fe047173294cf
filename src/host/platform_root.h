// The composition root: the one place that picks the platform serving the
// plug-in's process.
#pragma once

namespace skyfw {

// Called once when the plug-in is loaded, before anything else runs.
void InstallProcessPlatform();

}  // namespace skyfw
