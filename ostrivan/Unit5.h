// The properties dialog.
#pragma once
#include "cl_app.h"

class TForm5 : public cl::TForm {
public:
  TForm5();
};

extern TForm5* Form5;
