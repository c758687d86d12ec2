// placeholder until the codecs land
