#include "kilnshot/render_job.h"

int main(int argc, char** argv) {
  return kestrum::kilnshotMain(argc, argv);
}
