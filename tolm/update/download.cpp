#include "tolm/update/download.h"

#include "tolm/layouts/layouts.h"

namespace tolm {

DownLoad::DownLoad(forms::App& app) : Form(app, layouts::DownLoad) {}

}  // namespace tolm
