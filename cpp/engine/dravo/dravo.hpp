#pragma once

// Boolean expressions of the engine: nodes, variable context, simplifying
// constructors, text forms and the Tseytin transformation.
#include "engine/dravo/build.hpp"
#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"
#include "engine/dravo/text.hpp"
#include "engine/dravo/tseytin.hpp"
