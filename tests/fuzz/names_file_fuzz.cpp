// Any bytes as the registered-names file, plain and with a password.
#include <cstdint>
#include <fstream>

#include "console/reg_names.h"
#include "fuzz_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzModule* module = FuzzModule::Shared();
  if (size == 0 || size > 20000) return 0;
  {
    std::ofstream file(std::string(FuzzModule::kHome) + "/tg/regname.dat", std::ios::binary);
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  char* password = Client().settings.values.reg_name_password;
  password[0] = (data[0] & 1) ? 'k' : '\0';
  password[1] = '\0';
  console::LoadRegisteredNames(module->Host(), 1);
  return 0;
}
