// A process-wide X error handler for requests the engine makes outside its
// error trap. Such a request can meet a window that the host destroyed under
// an open editor (the host's window takes the editor's child window with it,
// and an expose may already be on its way); Xlib's default handler would end
// the host's process. Errors on the engine's display are reported and
// ignored; errors on every other display go to the handler this one
// replaced, which belongs to the host.
#pragma once

// Any thread; installs once per module load. Takes the engine's display mutex.
void editor_x_errors_install();
// Module unload: puts the replaced handler back unless another was installed
// over this one.
void editor_x_errors_release();
