#include "IdIntercept.h"

void TIdConnectionIntercept::AttachConnection(TIdSocketHandle* handle) {
  AttachedHandle = handle;
  if (OnConnect) OnConnect(this);
}
