// A library that tells whether anything loaded it: on loading it creates the file that
// WQ_MARKER_FILE names. The connection-string tests offer it to drivers that load libraries.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void MarkLoaded() {
  const char* path = getenv("WQ_MARKER_FILE");
  if (path == nullptr) return;
  int fd = open(path, O_CREAT | O_WRONLY, 0600);
  if (fd >= 0) close(fd);
}
