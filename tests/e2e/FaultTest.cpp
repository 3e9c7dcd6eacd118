#include "E2eFixture.h"
