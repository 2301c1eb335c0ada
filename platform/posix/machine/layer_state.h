// The one rule of lifetime for the emulated machine's state (roots, open
// handles, keys and files, caches, fault rules): each kind of state is made
// on its first use and never destroyed. Programs call the layer from their
// own static initialisers, before the layer's globals would be constructed,
// and from their exit-time destructors (a log closing its stream, a handle
// closed at exit), after those globals would be gone.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_LAYER_STATE_H
#define QXZ_PLATFORM_POSIX_MACHINE_LAYER_STATE_H

namespace qxz::posix
{

// The one State of this process, made on first use, never destroyed.
template <typename State>
State& LayerState()
{
    static State* const s_pState = new State;
    return *s_pState;
}

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_LAYER_STATE_H
