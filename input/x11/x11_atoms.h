// The atoms quorvane-input's backend uses, interned in one round trip.
#pragma once

#include "input/x11/x11_platform.h"

namespace quorvane::input {

struct X11Platform::Atoms {
  explicit Atoms(const x11::Connection& c);

  xcb_atom_t clientList, clientListStacking, currentDesktop, activeWindow;
  xcb_atom_t wmDesktop, wmState, stateHidden, stateSticky, stateBelow;
  xcb_atom_t wmWindowType, typeDesktop, typeDock, typeUtility, typeToolbar, typeMenu, typeSplash,
      typeNotification, typeDropdownMenu, typePopupMenu, typeTooltip, typeCombo;
  xcb_atom_t opacity, wmPid, frameExtents, icccmState, utf8String;
};

}  // namespace quorvane::input
