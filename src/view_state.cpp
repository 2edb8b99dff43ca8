#include "view_state.h"

ViewState viewState = initialViewState;
