#include "tolm/update/download.h"

#include "tolm/layouts/layouts.h"

namespace tolm {

DownLoad::DownLoad(forms::App& app) : Form(app, layouts::DownLoad) {}

void DownLoad::Form_Load() {
    // The download of the update program goes here (its fetch, check and the TimerExit
    // launch are not built yet); until then loading the window fetches nothing.
}

}  // namespace tolm
