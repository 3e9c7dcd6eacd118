# File versions of MovrantPavo.exe: the one built, and the newer build the sample site offers
# as a self-update (the same program with a higher version record).
set(MOVRANT_PROGRAM_VERSION 1.0.0.1)
set(MOVRANT_NEXT_VERSION 1.0.1.0)
