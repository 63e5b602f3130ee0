// The simulated evaluation board (being written).
