# Part of MakeFixtureZip.cmake: archives the current folder's files.
file(ARCHIVE_CREATE OUTPUT "${OUTPUT}" PATHS frame.xml res.xml big.txt one.txt nested/deep.xml FORMAT zip)
