// The Secret Service as libsecret's SecretService sees it, except that its prompts, when the call
// that brought one up is given up (its cancellable cancelled), stay with the person rather than
// being dismissed. libsecret dismisses such a prompt and waits for the service to confirm it:
// gnome-keyring-daemon 42 does not survive the dismissal of an unlock prompt that is not on screen
// yet, and libsecret's call then never ends. A prompt left up does what it says once the person
// answers it: the keyring it unlocks serves the next call.
#pragma once

#include <libsecret/secret.h>

// For secret_service_open.
GType patientServiceType();
