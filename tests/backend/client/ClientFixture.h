#pragma once

// The fixture lives in testsupport/backend/ now; this forward stays until every folder includes it there.
#include "testsupport/backend/ClientFixture.h"
