#include "kilnshot/kilnshot.h"

int main(int argc, char** argv) {
  return kestrum::kilnshotMain(argc, argv);
}
