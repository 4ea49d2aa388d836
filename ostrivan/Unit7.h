// The storage-parameters dialog.
#pragma once
#include "cl_app.h"

class TForm7 : public cl::TForm {
public:
  TForm7();
};

extern TForm7* Form7;
