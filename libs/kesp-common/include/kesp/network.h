#pragma once
// The network library: model, discovery, interface files and changes.

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "kesp/network_model.h"
#include "kesp/proxy.h"
#include "kesp/scripts.h"
