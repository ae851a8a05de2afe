#pragma once
// The network library: model, discovery, interface files and changes.

#include "kesp/network_model.h"
#if __has_include("kesp/discovery.h")
#include "kesp/discovery.h"
#endif
#if __has_include("kesp/interface_files.h")
#include "kesp/interface_files.h"
#endif
#if __has_include("kesp/network_change.h")
#include "kesp/network_change.h"
#endif
#if __has_include("kesp/scripts.h")
#include "kesp/scripts.h"
#endif
#include "kesp/proxy.h"
#include "kesp/move.h"
