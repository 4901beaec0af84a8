// Holds the overlay layer's place in the build until its first source file lands; delete it then.
