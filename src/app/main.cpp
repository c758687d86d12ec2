// Kestrum: 3D product shots of packaging from flat cover art. No arguments, no configuration:
// the working directory is the folder that holds bin/ and help/.
#include "app/app.h"

int main() {
  StartUp();
}
